#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

// The pages' markup: escaping, and a page file's {{name}} places filled.
namespace receiver {

// & < > " ' as entities, the way htmlspecialchars does with ENT_QUOTES.
std::string HtmlEscape(std::string_view text);

using PageValues =
    std::initializer_list<std::pair<std::string_view, std::string>>;

// `page` with each {{name}} replaced by its value (markup already); a name
// without a value becomes nothing.
std::string FillPage(std::string_view page, const PageValues& values);

}  // namespace receiver
