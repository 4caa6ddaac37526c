#include "framework/failure_text.h"

#include <string_view>

#include "framework/build_config.h"
#include "framework/file_system.h"
#include "framework/shown_text.h"
#include "framework/texts.h"

namespace {

namespace t = text::failure;

// The catalogue is looked up by a kind's number.
constexpr bool ListedInKindOrder() {
    for (std::size_t i = 0; i < std::size(t::kSentences); ++i) {
        if (t::kSentences[i].kind != static_cast<FailureKind>(i)) {
            return false;
        }
    }
    return true;
}
static_assert(ListedInKindOrder(), "the sentences are listed in the order of the kinds");

std::string Duration(std::int64_t milliseconds) {
    const std::int64_t seconds = (milliseconds + 999) / 1000;
    return seconds == 1 ? t::kOneSecond
                        : Compose(t::kSeconds, {{"count", std::to_string(seconds)}});
}

std::string EscapedList(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) {
            out += t::kListSeparator;
        }
        out += ShownAsItStands(item);
    }
    return out;
}

// What stands for one placeholder; false for a name the catalogue does not
// know, which is then left as it stands.
bool Fill(std::string_view placeholder, const Failure& failure, std::string& out) {
    if (placeholder == "path") {
        out += ShownAsItStands(failure.path);
    } else if (placeholder == "paths") {
        out += EscapedList(failure.paths);
    } else if (placeholder == "name") {
        out += ShownAsItStands(failure.name);
    } else if (placeholder == "version") {
        out += ShownAsItStands(failure.version);
    } else if (placeholder == "other_version") {
        out += ShownAsItStands(failure.otherVersion);
    } else if (placeholder == "text") {
        out += ShownAsItStands(failure.text);
    } else if (placeholder == "number") {
        out += std::to_string(failure.number);
    } else if (placeholder == "duration") {
        out += Duration(failure.milliseconds);
    } else if (placeholder == "system") {
        out += SystemErrorText(failure.systemError);
    } else if (placeholder == "cause") {
        out += failure.cause != nullptr ? Render(*failure.cause) : std::string();
    } else if (placeholder == "primary_host") {
        out += config::kPrimaryDownloadHost;
    } else if (placeholder == "single_file_page") {
        out += config::kSingleFileDownloadPage;
    } else {
        return false;
    }
    return true;
}

// The sentence with each {name} replaced by what `fill` appends for it; a
// name it does not know stays as it stands.
template <class FillOne>
std::string FillPlaceholders(std::string_view sentence, const FillOne& fill) {
    std::string out;
    out.reserve(sentence.size() + 64);
    std::size_t at = 0;
    while (at < sentence.size()) {
        const std::size_t open = sentence.find('{', at);
        const std::size_t close = open == std::string_view::npos ? open : sentence.find('}', open);
        if (close == std::string_view::npos) {
            out += sentence.substr(at);
            break;
        }
        out += sentence.substr(at, open - at);
        if (!fill(sentence.substr(open + 1, close - open - 1), out)) {
            out += sentence.substr(open, close - open + 1);
        }
        at = close + 1;
    }
    return out;
}

}  // namespace

const char* SentenceOf(FailureKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < std::size(t::kSentences) ? t::kSentences[index].text : "";
}

std::string Render(const Failure& failure) {
    return FillPlaceholders(SentenceOf(failure.kind),
                            [&failure](std::string_view placeholder, std::string& out) {
                                return Fill(placeholder, failure, out);
                            });
}

std::string Compose(std::string_view sentence,
                    std::initializer_list<std::pair<std::string_view, std::string>> values) {
    return FillPlaceholders(sentence, [values](std::string_view placeholder, std::string& out) {
        for (const auto& [name, value] : values) {
            if (name == placeholder) {
                out += value;
                return true;
            }
        }
        return false;
    });
}
