// The consumer's own library: the size of one file of an archive.
#pragma once

#include <cstdint>
#include <string>

std::uint64_t consumer_file_size(const std::string& archive, std::uint32_t id);
