// Checks that a statement raises one exact exception class with one exact message.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

#define EXPECT_THROW_MESSAGE(statement, ExceptionClass, expectedMessage)                          \
    do {                                                                                          \
        try {                                                                                     \
            statement;                                                                            \
            ADD_FAILURE() << "expected " #ExceptionClass " from " #statement;                     \
        } catch (const ExceptionClass& e) {                                                       \
            EXPECT_EQ(typeid(e), typeid(ExceptionClass)) << "a subclass of " #ExceptionClass;     \
            EXPECT_EQ(std::string(e.what()), std::string(expectedMessage));                       \
        }                                                                                         \
    } while (false)
