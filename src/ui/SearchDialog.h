// "$$Search in": the modal search dialog over a search session.
#pragma once

#include <cstddef>
#include <optional>

class CSearchSession;
class IUiPort;
class QWidget;

// The item chosen with "$$Go to ...", nothing for "$$Exit". Message boxes go
// through ui. Its size and place are kept for the run; it never gets
// smaller than at its first opening.
std::optional<size_t> RunSearchDialog(QWidget* owner, CSearchSession& session, IUiPort& ui);
