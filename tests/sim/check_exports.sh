#!/bin/sh
# The drop-in library exports exactly the client library's functions and is named by an unversioned SONAME.
set -eu
lib="$1"
expected="VR_GetGenericInterface
VR_GetInitToken
VR_GetVRInitErrorAsEnglishDescription
VR_GetVRInitErrorAsSymbol
VR_InitInternal
VR_InitInternal2
VR_IsHmdPresent
VR_IsInterfaceVersionValid
VR_IsRuntimeInstalled
VR_ShutdownInternal"
actual=$(nm -D --defined-only "$lib" | awk '{ print $NF }' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "exports differ; expected:"; echo "$expected"; echo "actual:"; echo "$actual"
    exit 1
fi
nm -D --defined-only "$lib" | awk '$2 != "T" { print "not a function: " $0; bad = 1 } END { exit bad }'
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\].*/\1/p')
if [ "$soname" != "libopenvr_api.so" ]; then
    echo "SONAME is '$soname', expected 'libopenvr_api.so'"
    exit 1
fi
case "$(basename "$lib")" in
libopenvr_api.so) ;;
*) echo "file name is $(basename "$lib"), expected libopenvr_api.so"; exit 1 ;;
esac
echo "exports and SONAME as expected"
