#pragma once

// Every wire type of the auth service, and its coders.
#include "auth/AuthEnumerations.hpp"
#include "auth/AuthJSONCoders.hpp"
#include "auth/AuthResponse.hpp"
#include "auth/Credentials.hpp"
#include "auth/JWTTypes.hpp"
#include "auth/MultiFactorTypes.hpp"
#include "auth/OAuthClientTypes.hpp"
#include "auth/OTPTypes.hpp"
#include "auth/ResendAndSSOTypes.hpp"
#include "auth/Session.hpp"
#include "auth/User.hpp"
#include "auth/UserAttributes.hpp"
