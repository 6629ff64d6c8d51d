#include "link_settings.h"

static const LinkSettings kDefaultLinkSettings = {0, 256, 0, 0xF5, 0xF800, 0xFFFF, 9600, ""};

LinkSettings g_LinkSettings = kDefaultLinkSettings;

void ResetLinkSettings(void) {
    g_LinkSettings = kDefaultLinkSettings;
}
