// Usage statistics: counters per local day that the host records, sent to the service once a day is
// over. The synchronization runs the send check.
#pragma once

namespace VxMeta {

// The send check of each synchronization: nothing unless a user is logged in and the device is
// registered. No day is recorded yet in this library (the counters come with the statistics API),
// so there is nothing to send.
void checkSendExtensibleStats();

} // namespace VxMeta
