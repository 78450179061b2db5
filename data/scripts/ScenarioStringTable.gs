//
// ScenarioStringTable.gs: what the scripts of older activities and behaviours find
// included in front of their own text.
//

include "StringTable.gs"

class ScenarioStringTable isclass GSObject
{
  public StringTable strings;
};
