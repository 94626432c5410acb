#pragma once

class ServerSocketScan;

// The kernel's listing the process and socket snapshot services share, so that one walk serves both listings and
// later polls. It lists the established connections only on the ports of the listeners that can be candidates.
ServerSocketScan& detectionSocketScan();
