// "$$Media / folder properties": the properties listing in two aligned columns.
#pragma once

#include <string>
#include <vector>

class QWidget;

void RunPropertiesDialog(QWidget* owner, const std::vector<std::string>& lines);
