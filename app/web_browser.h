// The embedded browser on Qt WebEngine (to be written).
#pragma once
