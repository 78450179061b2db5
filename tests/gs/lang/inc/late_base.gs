// Included by include_later_base.gs: Late derives from a class declared
// after it.
class Late isclass Early { public int late; };
class Early { public int early; };
