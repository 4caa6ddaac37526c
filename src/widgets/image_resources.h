#pragma once

#include <string>

// Icon and bitmap resources by their resource ID, as the dialog templates
// name them: where the platform finds each picture.
void RegisterImageResource(int id, const std::string& location);
