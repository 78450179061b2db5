//
// KestroGameObject.gs: the bases of asset script objects. The tool calls Init and
// SetProperties on them by signature; scripts override them and call
// inherited.
//

include "asset.gs"

// An asset's script object: Init is called with the object's own asset.
class KestroGameObject isclass GameObject
{
  public void Init(Asset self)
  {
  }
};

// A script object that is handed a property soup.
class PropertyObject isclass KestroGameObject
{
  public Soup GetProperties(void)
  {
    return null;
  }

  public void SetProperties(Soup soup)
  {
  }
};
