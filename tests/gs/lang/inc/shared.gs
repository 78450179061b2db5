// Included twice, compiled once.
class Shared {
  int count;
};
