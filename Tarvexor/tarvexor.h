// The archive bridge's public interface in one include, with the framework's version exports.
#pragma once

#include "Tarvexor/Archive/Decrypt/velmo_zip_decrypt_delegate.h"
#include "Tarvexor/Archive/concrete_zip_archive_delegate_velmo_decrypt.h"
#include "Tarvexor/Archive/delegating_zip_archive_model.h"
#include "Tarvexor/Archive/velmo_zip_archive_generator.h"
#include "Tarvexor/Archive/velmo_zip_archive_model.h"

// The framework's version number (1.0) and its version text, "@(#)PROGRAM:Tarvexor  PROJECT:Tarvexor-1"
// followed by a line feed, exported with C names.
extern "C" {
extern const double TarvexorVersionNumber;
extern const unsigned char TarvexorVersionString[];
}
