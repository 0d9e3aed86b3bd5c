// Connects the network clients to the configuration store: every settings load hands on the
// IPv6 mode, the DNS servers and resolver settings and the SMTP port, start-up hands on the
// time-zone text, and SMTP threads are constructed under store lock 0. Called once at
// start-up, before the store is first initialised.
#pragma once

void LinkNetSettingsToStore();
