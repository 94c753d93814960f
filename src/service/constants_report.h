#pragma once
// The adjustment and calibration parts of the information report, written from a snapshot
// of the constants: nothing is recalled into the nodes and nothing is sent to the instrument
// but the read-only sampler queries.

#include <string>
#include <vector>

#include "service/flash_constants.h"

namespace norv {

// "\r\n\r\n\tADJUSTMENTS" ... and "\r\n\r\n\tCALIBRATIONS" ..., lines ended by CR LF.
std::string BuildConstantsReport(const TFlashConstantsSnapshot& snapshot);

// The numbers of a reply ("12, 34 56"), at most `cap` of them; reading stops at the first
// text that is no whole number.
std::vector<int32_t> ParseCodeList(const std::string& reply, size_t cap);

}  // namespace norv
