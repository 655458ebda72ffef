#pragma once

// The port that tray_test's first receiver and receiver_second_start.exe
// share; nothing listens on it, it only names the receiver.
constexpr int kSecondStartPort = 48213;
