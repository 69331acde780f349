#pragma once
// Watches the plug-in's notification-area icon for the end-to-end tests. The host patches the
// plug-in's import of Shell_NotifyIconA, so every icon the plug-in hands to the shell passes here
// first; the call then goes on to the shell unchanged.

#include <windows.h>

#include <string>

// Patches the import in the loaded plug-in; false with a reason when it finds none.
bool install_tray_spy(HMODULE plugin, std::string& error);

// What the icon last handed to the shell shows: "none" (no icon up), "black" (not drawn yet),
// "cross" (bypass), "check" (full processing), "face" (without the Dolby B remover) or "other".
std::string tray_picture();

// How many pictures the plug-in has handed to the shell since the spy was installed.
int tray_picture_count();
