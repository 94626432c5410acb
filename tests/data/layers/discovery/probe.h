#pragma once

#include "telemetry/probe.h"
#include "control/serverstore.h"
#  include "ui/displaytext.h"
