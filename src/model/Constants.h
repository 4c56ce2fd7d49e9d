#pragma once

// Texts fixed at build time and shown in several places.
inline constexpr char kAppName[] = "quillstrand";
inline constexpr char kVersion[] = "v1.20";
inline constexpr char kProjectAbbreviation[] = "QV";
inline constexpr char kStatusFileName[] = "QsvStatus.dat";
inline constexpr char kProjectSiteUrl[] = "http://qv.example.org";
inline constexpr char kDefaultCopyNewUrl[] = "http://qv.example.org/sieve/";
inline constexpr char kHomePageUrl[] = "http://quillstrand.example.org/";
inline constexpr char kMakerEmail[] = "quillstrand@example.org";
