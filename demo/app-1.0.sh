#!/bin/sh
# The demo application, version 1.0: "--version" prints its version; any
# other start is noted in started.txt beside it.
if [ "$1" = "--version" ]; then echo "Demo application 1.0"; exit 0; fi
echo "Demo application 1.0 started in $(pwd) with: $*" >> started.txt
