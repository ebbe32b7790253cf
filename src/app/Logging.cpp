#include "app/Logging.h"

Q_LOGGING_CATEGORY(lcChakushin, "chakushin")
