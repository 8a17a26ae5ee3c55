// The user's personal key: every verified user owns one key of kind "priv", named "Personal
// Orvanel", under whose own revision the user's other keys are wrapped. The synchronization makes
// sure of it.
#pragma once

namespace VxMeta {

// Run by the synchronization after its reconciliation pass and signature checks, with the sync lock
// held and without the master lock: for a logged-in, verified user without a "priv" key of their
// own, makes one in the dataset (addAsset), pushes the lists, takes its first revision numbered by
// the service as the personal key and runs the reconciliation pass. Without such a revision it
// stops; the next synchronization's pass finds it.
void checkForSpecialAssets();

} // namespace VxMeta
