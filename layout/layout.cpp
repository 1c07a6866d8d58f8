#include "layout/layout.h"
