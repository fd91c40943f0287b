// A fixed 2048-bit RSA key with e = 3, generated for these tests. The private
// exponent lets the tests sign arbitrary (also malformed) blocks without
// libcrypto, through the public operation with d in place of e.
#pragma once

namespace korva::crypto::test {

inline constexpr const char* kE3Modulus =
    "9f72ecf6a7bbe2d624cb0a781de17036e55fc9460e0ee998b3cee851668aa2f4de319c17863a19957e63e0ecb7e79644abce0320084a9fe4"
    "c4c2639a1d2fa647cea5b0879fe5fc08fc1f57cbc44f68796508cfae6e63d8bf413a38e6a197e7e1b5b1d5b33d7155c5176cef78538fa148"
    "c1cd6ece8f409d1066f5b1bfaba71a3dc6ca11733608244e00809982f8354a8b85fc67ff39184d49d592df4f8f786c7ec9ebee75ebd31933"
    "aa3d8a2182a36a807d6c7b6e4fd3d8058adbf364584818f751836f3131070429eefb1c8e86e7fd94e3dc33da82c074dd9dfb333093d63381"
    "a35d97c9ec5089c6321d0d0df5a3859e6e8b914395396f80c9417586486d0bd9";
inline constexpr const char* kE3PrivateExponent =
    "6a4c9df9c527ec8ec33206fabe964acf439530d95eb49bbb2289f036445c6ca33ecbbd650426bbb8feed409dcfefb9831d3402155adc6a98"
    "832c4266be1fc42fdf19205a6a9952b0a814e53282df9afb98b08a744997e5d4d626d099c10fefebce768e777e4b8e8364f34a5037b51630"
    "81339f345f8068b599f9212a726f66d2cc7a14793e64f72bab9e6596141aaa23c4ca1ba228cc8044238ab00804921f390faf6a96c2e550f0"
    "15af6feb694e1ce377638d0cae718f7cd76d03080fae7c1e24d94c310f5b5d81737fefb78bbed3fe11043160144ba2857afe317e58be2207"
    "296dd08c084e1ae07d8d8041ea5c8794a64f94317f014b98b1d76013cad1e523";

}  // namespace korva::crypto::test
