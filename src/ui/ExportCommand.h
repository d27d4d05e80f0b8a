// File > "$$Export..." and the search dialog's "$$Export...": asks for a
// file (its type chooses CSV, HTML or JSON lines) and writes it with
// progress and Cancel; failures are reported through the UI port.
#pragma once

#include <functional>
#include <string>

#include "query/Export.h"

class IUiPort;
class IProgressSink;
class QWidget;

// produce writes the rows to the output, polling progress; false when stopped.
using ExportProducer = std::function<bool(ExportFormat format, const ExportOutput& output, IProgressSink* progress)>;

// True when a file was written.
bool RunExportCommand(QWidget* owner, IUiPort& ui, const std::string& suggestedName, const ExportProducer& produce);
