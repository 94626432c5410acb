#pragma once

// Whether the desktop asks applications to reduce motion (row stagger, spinners, the scanner sweep).
// PORTHIVE_REDUCE_MOTION=1 or 0 overrides what the desktop says; off when nothing says otherwise.
bool systemPrefersReducedMotion();
