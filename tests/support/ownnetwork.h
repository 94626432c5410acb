#pragma once

// Moves the calling thread into a new network namespace with its loopback interface up, so that the sockets other
// programs (and other tests running beside this one) open never show in what it lists. Threads and processes it
// starts afterwards share it. Call it before any other thread starts. False where that is not allowed.
bool enterOwnNetwork();
