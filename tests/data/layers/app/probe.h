#pragma once

#include "ui/displaytext.h"
#include "base/apperror.h"
