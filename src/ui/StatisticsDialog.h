// View > "$$Statistics...": where the space goes below an item of the open
// catalog: a bar chart by kind of file, a pie by medium and the largest
// folders, with Go to on a folder.
#pragma once

#include <cstddef>
#include <optional>

class CFileItemList;
class QWidget;

// The folder chosen with "$$Go to ...", nothing for "$$Exit".
std::optional<size_t> RunStatisticsDialog(QWidget* owner, const CFileItemList& list, long from);
