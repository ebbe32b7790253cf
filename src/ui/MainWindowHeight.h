#pragma once

/// The main window's client height in pixels for a window frame (title bar and borders, top
/// and bottom together) of `framePixels`; 0 when there is none or it is not known yet.
///
/// The window is 2115 twips tall in normal mode and 4095 twips in debug mode, frame included,
/// as far as its rows allow: in normal mode the client area ends between the buttons and the
/// debug row, so that no part of the row shows and the buttons stay whole; in debug mode it
/// ends a little below the debug row, which shows whole without an empty band under it.
int mainWindowClientHeight(bool debugMode, int framePixels);
