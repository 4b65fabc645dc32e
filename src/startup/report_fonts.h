#pragma once

namespace corvex {

/// Before the Qt application exists. On Windows, Qt's offscreen and minimal
/// platforms (the headless runs, `render`, the service) read fonts from one
/// folder only, never from the system's: unless QT_QPA_FONTDIR names one,
/// they read the fonts installed beside the program, else the system's
/// fonts folder. Elsewhere fontconfig finds the fonts and nothing is done.
void chooseFontFolder();

/// Once the Qt application exists: Arial from the system's fonts folder
/// (Windows) and the fonts installed beside the program (the Liberation
/// fonts, Arial's metric twins) become known to every platform plugin.
void addReportFonts();

}  // namespace corvex
