#pragma once

#include "base/apperror.h"
#include "platform/system/clock.h"
#include "probe.h"
#include <QString>
