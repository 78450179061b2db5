//
// Constructors.gs: the natives that make new native objects.
//

include "Soup.gs"
include "KUIDList.gs"
include "Image.gs"

class ConstructorsBase isclass GSObject
{
  public native Soup NewSoup(void);
  public native KUIDList NewKUIDList(void);
  public native Image NewImage(void);
};
