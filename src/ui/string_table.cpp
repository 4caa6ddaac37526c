#include "ui/string_table.h"

#include "catalogue/package_table.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"

std::string LoadStringResource(int id) {
    if (const PackageInfo* package = PackageForMenuCommand(id)) {
        return package->menuText;
    }
    switch (id) {
        case res::IDS_ABOUTBOX:
            return text::kMenuAbout;
        case res::IDM_SPEED_LIMIT:
            return text::kMenuSpeedLimit;
        case res::IDP_SOCKETS_INIT_FAILED:
            return text::kSocketsInitFailed;
        default:
            return {};
    }
}
