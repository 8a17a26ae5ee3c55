// One extraction action: the chosen entries are inflated on worker threads while the calling thread
// calls the delegates in entry order, asks for passwords, resolves names, renames finished files into
// place and, on a cancel, removes what the action created.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/error.h"
#include "Zentile/zentile_archive.h"

namespace Zentile {

bool runExtraction(const std::shared_ptr<ZentileArchive>& archive, const std::vector<std::size_t>& entries,
                   const std::string& destination, const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                   Platform::Error* error);

} // namespace Zentile
