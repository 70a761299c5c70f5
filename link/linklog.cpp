#include "link/linklog.h"

Q_LOGGING_CATEGORY(lcLink, "norda.link")
