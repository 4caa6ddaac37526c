#include "engine/connection_advice.h"

#include "framework/build_config.h"
#include "framework/texts.h"

std::string ConnectionAdvice(const std::string& error) {
    return error + text::kConnectionAdvice + config::kSingleFileDownloadPage;
}
