#include "platform/fake/InMemoryUserDefaults.h"
