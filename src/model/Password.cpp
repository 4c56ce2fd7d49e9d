#include "model/Password.h"

namespace {

constexpr int kLetters = 26;
constexpr int kGroupValues = kLetters * kLetters * kLetters;

// The number that the byte at `position` is written as, before it is cut
// to three letters.
int Offset(size_t position) { return static_cast<int>(31 * (position % kGroupValues) + 37); }

bool IsLetter(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

std::string EncodePassword(std::string_view password) {
  std::string stored;
  stored.reserve(3 * password.size());
  for (size_t k = 0; k < password.size(); ++k) {
    const int c = static_cast<unsigned char>(password[k]);
    const int d = 43 * c + Offset(k);
    stored += static_cast<char>('a' + d / 676 % kLetters);
    stored += static_cast<char>('a' + d / 26 % kLetters);
    stored += static_cast<char>('a' + d % kLetters);
  }
  return stored;
}

std::string DecodePassword(std::string_view stored) {
  std::string password;
  for (size_t k = 0; 3 * k + 3 <= stored.size(); ++k) {
    const std::string_view group = stored.substr(3 * k, 3);
    if (!IsLetter(group[0]) || !IsLetter(group[1]) || !IsLetter(group[2])) continue;
    const int written = 676 * (group[0] - 'a') + 26 * (group[1] - 'a') + (group[2] - 'a');
    // Past the 211th byte the number no longer fits in three letters and
    // wraps; the bytes of one position span fewer than 26^3 numbers, so the
    // wrapped number still tells the byte.
    const int fromOffset = ((written - Offset(k)) % kGroupValues + kGroupValues) % kGroupValues;
    if (fromOffset % 43 != 0 || fromOffset / 43 > 255) continue;
    password += static_cast<char>(fromOffset / 43);
  }
  return password;
}
