#include "discovery/detectionsocketscan.h"

#include "discovery/launchchain.h"
#include "platform/listings/serversocketscan.h"

ServerSocketScan& detectionSocketScan()
{
    static ServerSocketScan scan({}, &LaunchChain::isServerChain);
    return scan;
}
