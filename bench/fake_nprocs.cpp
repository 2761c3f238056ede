// Preloaded into a run to make the machine look like 64 cores, so that the
// memory of a run with many threads can be measured on a small machine.
extern "C" int get_nprocs() {
  return 64;
}
extern "C" int get_nprocs_conf() {
  return 64;
}
