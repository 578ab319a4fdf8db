// Which names the shared library libarjhost.so exports: those marked
// ARJHOST_API, all in the namespace arjhost. Everything else in it is
// hidden, so that its inner names cannot clash with a program's.
#pragma once

#define ARJHOST_API __attribute__((visibility("default")))
