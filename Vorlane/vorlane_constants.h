// The framework's exported names and values that belong to no single part of it: the bundle key of
// the host's application name, the default key server, the notices the framework posts, and its
// version.
#pragma once

namespace VorlaneBridge {

// The information-dictionary key of the host's application name.
inline constexpr char kMetaclientAppName[] = "MetaclientAppName";
// The key server a host that names none talks to.
inline constexpr char kDefaultCMDSPrefix[] = "https://mds.tarvex.example/mds/";
// Posted (object: the facade) when the service has disabled this device; the device is then signed out.
inline constexpr char kVorlaneDeviceDisabledNotification[] = "kVorlaneDeviceDisabledNotification";
// Posted on the main queue (object: the translator) when the stored state was refused as invalid.
inline constexpr char kInvalidMetadata[] = "kInvalidMetadata";
// Posted (object: the facade) when a synchronization found that the account's password has changed.
inline constexpr char kPasswordChangedNotification[] = "kPasswordChangedNotification";
inline constexpr char metadataDirectoryName[] = "metadata";

inline constexpr double VorlaneVersionNumber = 1.0;
inline constexpr char VorlaneVersionString[] = "@(#)PROGRAM:Vorlane  PROJECT:Vorlane-1\n";

} // namespace VorlaneBridge
