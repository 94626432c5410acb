#include "discovery/detectionsocketscan.h"

#include "discovery/localserverdetector.h"
#include "platform/listings/serversocketscan.h"

ServerSocketScan& detectionSocketScan()
{
    static ServerSocketScan scan({}, &LocalServerDetector::isServerChain);
    return scan;
}
