#include "ui/ui_resources.h"

#include "framework/resource_ids.h"
#include "widgets/image_resources.h"

void EnsureUiResources() {
    static const bool registered = [] {
        RegisterImageResource(res::IDR_MAINFRAME, ":/velmora/images/quindle.png");
        RegisterImageResource(res::IDB_BANNER, ":/velmora/images/banner.png");
        return true;
    }();
    (void)registered;
}
