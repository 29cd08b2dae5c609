// A JSON string literal for any text, quotes included.
#pragma once

#include <string>

std::string json_quote(const std::string& text);
