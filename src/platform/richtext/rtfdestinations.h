#pragma once

#include <string_view>

// Destinations whose content is never text of the document. Shared by the full
// reader and the text scanner, so that both skip exactly the same groups.
bool isSkippedRtfDestination(std::string_view word);
