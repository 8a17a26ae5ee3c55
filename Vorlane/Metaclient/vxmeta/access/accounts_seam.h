// What the access checks and logout call of the accounts area above them (accounts/): the
// login-change marker, the account request of the credential check, the bookkeeping of an accepted
// managed account, the MFA policy of team data and the MFA model of the request pipeline. Declared
// here, defined by the accounts area (accounts/access_links.cpp, accounts/mfa_retry.cpp).
#pragma once

#include <memory>
#include <string>

#include <json/value.h>

namespace VxMeta {

class TeamData;

// A login change is in progress while the returned object lives (a ScopeLoginChanging).
std::shared_ptr<void> beginLoginChange();
// ScopeLoginChanging::loggedIn: false during a login change, else whether a private key is logged in.
bool loginScopeLoggedIn();
// POSTs an account request (Action): the device, application and platform members for `ownerUrn`,
// then every member of `members`; the parsed reply.
Json::Value performAccountAction(const std::string& path, const std::string& ownerUrn, const Json::Value& members,
                                 bool useAccessToken, bool implicitAuth);
// The service accepted the managed account's password: it is kept and the contact times are set.
void managedAccountCheckedOK(const std::string& password);
// Under the master lock: the MFA policy of an "MFAPolicy" team datum, whose signature the caller
// checked, becomes the global MFA policy and keeps the current policy's client verification.
void adoptMfaPolicy(const TeamData& record);
// Gives the request pipeline's MFA retry its model (mfaRetryModelFactory); run by the library start.
void connectMfaModel();

} // namespace VxMeta
