// "$$Search in": the modal search dialog over a search session.
#pragma once

#include <cstddef>
#include <optional>

class CFileTypeCache;
class CSearchSession;
class IUiPort;
class QWidget;

// The item chosen with "$$Go to ...", nothing for "$$Exit". Message boxes go
// through ui. Its size and place are kept for the run; it never gets
// smaller than at its first opening. Type names come from types (the main
// window's cache), or from a cache of the dialog's own. A column heading
// sorts the results; an application row's context menu runs the session's
// application commands.
std::optional<size_t> RunSearchDialog(QWidget* owner, CSearchSession& session, IUiPort& ui,
                                      CFileTypeCache* types = nullptr);
