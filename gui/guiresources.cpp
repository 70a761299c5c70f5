#include "gui/guiresources.h"

#include <QtGlobal>

static void initResourcesOnce()
{
    Q_INIT_RESOURCE(resources);
}

void initGuiResources()
{
    static const bool done = (initResourcesOnce(), true);
    Q_UNUSED(done)
}
