#pragma once

#include "app/porthiveapp.h"
