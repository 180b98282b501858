#pragma once

// The VRX archive unit: multi-file archives whose entries are stored as they
// are or packed with a block-wise byte pair encoding.

#include "archive/vrx_error.h"     // IWYU pragma: export
#include "archive/vrx_file.h"      // IWYU pragma: export
#include "archive/vrx_id.h"        // IWYU pragma: export
#include "archive/vrx_messages.h"  // IWYU pragma: export
#include "archive/vrx_pack.h"      // IWYU pragma: export
#include "archive/vrx_records.h"   // IWYU pragma: export
