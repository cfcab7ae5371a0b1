#include "app/box_site_listener.h"

BoxSiteListener* BoxSiteListener::instance() {
    static BoxSiteListener listener;
    return &listener;
}
