#pragma once

#include "app/SharedState.h"

#include <QString>

#include <cstdint>
#include <optional>

/// The settings the adapter and CTI dialogs store, and the rules for what follows a store.
/// Nothing here needs a window.

/// Writes SYSTEM `adapter`, `COMMinit` and `CommPort` from memory, in that order, each only
/// when the one before it was written. The last write's result: above 0 when all three
/// were written, 0 otherwise (keys written before the failure stay written).
int writeAdapterSettings(const SharedState& state);

/// With "READ": loads `ctiSettings1` … `ctiSettings3` from SYSTEM and returns 1. With
/// "WRITE": writes them in that order, each only when the one before it was written, and
/// returns the last write's result (0 when one failed). Any other mode returns 0.
int readWriteCtiSettings(SharedState& state, const QString& mode);

/// `appState` after a complete adapter setting has been stored: during the adapter step the
/// CTI step follows for an INS line and the URL step for any other; at any other time
/// standby is off.
AppStateCode appStateAfterAdapterStored(AppStateCode appState, const QString& kind);

/// The notice after a complete adapter setting has been stored; an INS line gets a second
/// line pointing to the CTI setting.
QString adapterStoredText(const QString& kind);

/// `appState` after the CTI settings have been stored: the CTI step moves on to the URL step.
AppStateCode appStateAfterCtiStored(AppStateCode appState);

/// The entry of a list numbered from `first` that the stored number `text` selects, counted
/// from 0: entry `number` - `first`. Empty when the text is empty, not a number, or names no
/// entry of a list of `count` entries.
std::optional<int> listEntryFor(const QString& text, int first, int count);

/// The line kind as the dialogs show it.
QString kindCaption(const QString& kind);
