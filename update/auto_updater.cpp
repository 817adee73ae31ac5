// Life of the update object.
#include "update/auto_updater.h"

namespace update {

CAutoUpdater::CAutoUpdater() = default;
CAutoUpdater::~CAutoUpdater() = default;

}  // namespace update
