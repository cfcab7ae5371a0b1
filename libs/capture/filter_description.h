#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// A filter description file says which GStreamer elements the player should
// prefer or avoid, by rank:
//
//   <filters>
//     <filter name="avdec_h264" rank="primary"/>
//     <filter name="vaapidecodebin" rank="none"/>
//   </filters>
//
// A rank is "none", "marginal", "secondary", "primary" or a number.
using FilterRanks = std::vector<std::pair<std::string, int>>;

// The ranks of the file; nothing (with the reason) when the file is missing or
// malformed, so that a bad file changes nothing at all.
std::optional<FilterRanks> readFilterDescription(const std::string& path, std::string* error);
// Sets the ranks of the elements that exist; unknown names are passed over.
void applyFilterRanks(const FilterRanks& ranks);
