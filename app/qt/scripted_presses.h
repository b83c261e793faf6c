// The installed window checked without a screen or a hand on it
// (scripts/debian_install_test.sh): the buttons QRV_IDSET_PRESS names are
// pressed as a technician would press them.
#pragma once

class Form1;

// QRV_IDSET_PRESS lists "port" (the port button) and "change" (更改ID),
// apart by commas. Once the window is up each is clicked in turn, each
// message shown meanwhile is printed on standard output and closed with its
// OK, and after the last the window is closed. Without the variable nothing
// happens.
void press_from_environment(Form1& window);
