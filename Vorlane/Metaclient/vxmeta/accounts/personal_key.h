// The user's personal key: every verified user owns one key of kind "priv", under whose own revision
// the user's other keys are wrapped. The synchronization makes sure of it.
#pragma once

namespace VxMeta {

// Run by the synchronization after its reconciliation pass and signature checks, with the sync lock
// held and without the master lock: for a logged-in, verified user, whether the dataset holds the
// user's own "priv" key. Creating a missing one comes with key creation; until then nothing is done.
void checkForSpecialAssets();

} // namespace VxMeta
