extern const char kSieveClientPath[];
const char kSieveClientPath[] = QUILLSTRAND_SIEVE_CLIENT;
