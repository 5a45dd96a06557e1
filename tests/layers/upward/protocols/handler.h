#pragma once

#include "core/controller.h"  // protocols may not see the controller
