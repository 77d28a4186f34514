#!/bin/sh
# Runs a test program on a session bus of its own (see session-bus.conf) and tells it
# so, so tests that talk to the bus never reach a desktop's real services.
export GQ_TEST_PRIVATE_BUS=1
exec dbus-run-session --config-file="$(dirname "$0")/session-bus.conf" -- "$@"
