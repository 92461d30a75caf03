// The whole public interface of the archive reader library.
#pragma once

#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/error/io_error.hpp"
#include "quorvane_dat/error/parse_error.hpp"
#include "quorvane_dat/error/result.hpp"
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "quorvane_dat/lib/batch_reader.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "quorvane_dat/lib/directory_node.hpp"
#include "quorvane_dat/lib/file_index.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"
#include "quorvane_dat/utils/portal_dat_path.hpp"
#include "quorvane_dat/version.hpp"
