// The maker's Ed25519 public key: every version file and package the update downloads must carry a detached
// signature made with its private half, which never leaves the maker's signing machine (README: "Online update and
// signing a release"). The value below is a placeholder of zeros: a build that still has it verifies nothing, so its
// update check and download always end with "not signed". The maker replaces it with the 32 bytes of the real
// public key.
#pragma once

#include "update/signature.h"

namespace update {

inline constexpr PublicKey kMakerPublicKey = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

}  // namespace update
