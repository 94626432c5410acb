# Build-time configuration keys. A key that is not given on the cmake command line is absent from the
# bundle information at run time, which differs from a key given as empty.
set(PORTHIVE_BUNDLE_KEYS
    PorthivePostHogProjectToken PorthivePostHogHost PorthiveSentryDSN PorthiveSentryEnvironment
    PorthiveAppcastURL PorthiveWebsiteHost
    CFBundleShortVersionString CFBundleVersion CFBundleIdentifier)

if(NOT DEFINED CFBundleShortVersionString)
    set(CFBundleShortVersionString "${PROJECT_VERSION}")
endif()
if(NOT DEFINED CFBundleVersion)
    set(CFBundleVersion "1")
endif()
# The product web site that the settings page's legal links open (https://<host>/privacy and so on).
if(NOT DEFINED PorthiveWebsiteHost)
    set(PorthiveWebsiteHost "porthive.app")
endif()
if(NOT DEFINED CFBundleIdentifier)
    set(CFBundleIdentifier "com.vemo.porthive")
endif()

set(PORTHIVE_BUNDLE_ENTRIES "")
foreach(key IN LISTS PORTHIVE_BUNDLE_KEYS)
    if(DEFINED ${key})
        string(APPEND PORTHIVE_BUNDLE_ENTRIES
            "        {QStringLiteral(\"${key}\"), QStringLiteral(R\"porthive(${${key}})porthive\")},\n")
    endif()
endforeach()
