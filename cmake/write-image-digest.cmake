# Writes OUTPUT: a header with the SHA-256 of INPUT, the firmware image that the build carries,
# which the program checks the carried image against before an update sends anything.
file(SHA256 "${INPUT}" digest)
string(REGEX REPLACE "(..)" "0x\\1, " bytes "${digest}")
string(REGEX REPLACE ", $" "" bytes "${bytes}")
file(WRITE "${OUTPUT}" "\
// Made by the build: the SHA-256 of the firmware image that it carries (${digest}).
#pragma once

#include \"flash/sha256.h\"

static constexpr Sha256Digest kBuildImageDigest = {{${bytes}}};
")
