#include "ui/string_table.h"

#include "framework/resource_ids.h"
#include "framework/texts.h"

std::string LoadStringResource(int id) {
    switch (id) {
        case res::IDS_PACKAGE_MAIN:
            return text::kMenuPackageMain;
        case res::IDS_PACKAGE_TOBRIN:
            return text::kMenuPackageTobrin;
        case res::IDS_PACKAGE_VESSA:
            return text::kMenuPackageVessa;
        case res::IDS_ABOUTBOX:
            return text::kMenuAbout;
        case res::IDP_SOCKETS_INIT_FAILED:
            return text::kSocketsInitFailed;
        case res::IDS_APP_TITLE:
            return text::kAppTitle;
        default:
            return {};
    }
}
