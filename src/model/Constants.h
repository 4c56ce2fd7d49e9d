#pragma once

// Texts fixed at build time and shown in several places.
inline constexpr char kAppName[] = "quillstrand";
// Defined in Version.cpp alone, so that a new version compiles one file again.
extern const char kVersion[];
inline constexpr char kProjectAbbreviation[] = "QV";
inline constexpr char kStatusFileName[] = "QsvStatus.dat";
inline constexpr char kProjectSiteUrl[] = "http://qv.example.org";
inline constexpr char kDefaultCopyNewUrl[] = "http://qv.example.org/sieve/";
inline constexpr char kHomePageUrl[] = "http://quillstrand.example.org/";
inline constexpr char kMakerEmail[] = "quillstrand@example.org";
// The program's id on the desktop: its menu entry, icon and metadata.
inline constexpr char kDesktopId[] = "org.example.quillstrand";
