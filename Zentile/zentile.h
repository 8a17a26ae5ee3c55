// The ZIP engine's whole public interface in one include.
#pragma once

#include "Zentile/zip_archive.h"
#include "Zentile/zip_archive_delegate.h"
#include "Zentile/zip_archive_generator.h"
#include "Zentile/zip_decrypt_delegate.h"
#include "Zentile/zip_decrypt_result.h"
#include "Zentile/zip_error.h"
#include "Zentile/zip_filter_delegate.h"
#include "Zentile/zip_item.h"
#include "Zentile/zip_kms.h"
#include "Zentile/zip_progress_delegate.h"
#include "Zentile/zip_write_delegates.h"
