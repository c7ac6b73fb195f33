// Carrier of the test programs' shared precompiled header (GoogleTest and
// GoogleMock); it defines nothing.
