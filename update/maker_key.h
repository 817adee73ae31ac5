// The maker's Ed25519 public key: the update manifest (the offered version with its package's size and SHA-256)
// must carry a detached signature made with its private half, which never leaves the maker's signing machine
// (README: "Online update and signing a release"). The value below is a placeholder of zeros: a build that still
// has it has no updates configured, and its Updates wizard says so without asking any server. The maker replaces
// it with the 32 bytes of the real public key (scripts/sign-update.sh prints them).
#pragma once

#include "update/signature.h"

namespace update {

inline constexpr PublicKey kMakerPublicKey = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

}  // namespace update
