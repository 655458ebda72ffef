#pragma once

namespace report {

// Turns TrackState and the settings into one GET request and sends it; the
// result is not looked at and nothing is retried.
void SendReport();

}  // namespace report
