<ORVE>HEADER</ORVE>
"""<ORVE>MV_PACKAGE</ORVE>: <ORVE>MV_DOC</ORVE>

Created <ORVE>MV_CREATED</ORVE>. Tables:
<ORVE_TABLES>
    <ORVE>TL_NAME</ORVE> - <ORVE>TL_CNAME2</ORVE>
</ORVE_TABLES>
"""

from .base import Repository
<ORVE_TABLES>
from .<ORVE>TL_NAME</ORVE> import <ORVE>CLASSNAME</ORVE>, <ORVE>CLASSNAME</ORVE>Repository
</ORVE_TABLES>

__all__ = [
    "Repository",
    "REPOSITORIES",
<ORVE_TABLES>
    "<ORVE>CLASSNAME</ORVE>",
    "<ORVE>CLASSNAME</ORVE>Repository",
</ORVE_TABLES>
]

# Repository class per table name.
REPOSITORIES = {
<ORVE_TABLES>
    "<ORVE>TL_NAME</ORVE>": <ORVE>CLASSNAME</ORVE>Repository,
</ORVE_TABLES>
}
