#pragma once
// Control and command identifiers of the main window, its menus and the tray menu. They keep
// every command traceable from menu item or button to its handler.

#include "app/runtime/ServiceStart.h"

namespace ids {

// Controls of the main window
constexpr int kPreview = 1001;
constexpr int kLog = 1003;
constexpr int kSnapshotButton = 1000;
constexpr int kChangeDeviceButton = 1016;
constexpr int kMailSetupButton = 1002;
constexpr int kMailCheckButton = 1021;
constexpr int kDeviceSetupButton = 1008;
constexpr int kDevicePropertiesButton = 1007;

// Menu bar and tray menu commands
constexpr int kSnapshot = 32779;
constexpr int kExit = 57665;
constexpr int kAppSettings = 32796;
constexpr int kMailSettings = 32792;
constexpr int kTimeTextSettings = 32803;
constexpr int kChangeDevice = 32789;
constexpr int kDeviceSettings = 32794;
constexpr int kDeviceProperties = 32790;
constexpr int kCameras = 32811;
constexpr int kHomePage = 32799;
constexpr int kAbout = 57664;
constexpr int kAboutKeepWindow = 16; // the window menu's About item: the window stays visible
constexpr int kTrayShowHide = 32772;
constexpr int kTrayExit = 32777;

// Timer 0: the mail check, once a minute
constexpr int kMailCheckIntervalMs = ::kMailCheckIntervalMs;

} // namespace ids
